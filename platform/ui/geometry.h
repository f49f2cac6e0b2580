// Points, sizes and rectangles in pixels, as the window model keeps them.
#pragma once

struct TPoint {
  int x = 0;
  int y = 0;
};

struct TSize {
  int cx = 0;
  int cy = 0;
};

struct TRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  TRect() = default;
  TRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  TPoint TopLeft() const { return {left, top}; }
  bool operator==(const TRect&) const = default;
};
