// TDecoratedFrame: a frame with bars around its client: tool bars at the
// top or left, the status bar at the bottom. It lays them out, and shows
// the hint of the command under the pointer (menu item or button) in the
// status bar's first gadget when menu tracking is on.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/ui/frame.h"
#include "platform/ui/gadget_window.h"

class TDecoratedFrame : public TFrameWindow {
 public:
  enum TLocation { Top, Bottom, Left, Right };
  TDecoratedFrame(TWindow* parent, const char* title, TWindow* client, bool trackMenuSelection = false);

  // The frame takes the decoration as a child window (and deletes it).
  void Insert(TWindow& decoration, TLocation location = Top);
  TStatusBar* GetStatusBar() const;
  // Decorations in the order inserted at a location.
  std::vector<TWindow*> GetDecorations(TLocation location) const;

  // Hints: a text per command id; GetHintText may be overridden.
  void SetHint(UINT id, const char* text) { Hints[id] = text ? text : ""; }
  virtual bool GetHintText(UINT id, std::string& text) const;
  void SetHintCommand(int id);  // 0 clears
  void MenuSelect(UINT id) override;

 protected:
  void Layout() override;
  const char* WindowClass() const override { return "KvDecoratedFrame"; }

 private:
  struct Decoration {
    TWindow* window;
    TLocation location;
  };
  std::vector<Decoration> Decorations;
  std::map<UINT, std::string> Hints;
  bool TrackMenuSelection;
};
