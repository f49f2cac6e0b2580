// The progress bar control: range and position.
#include "platform/ui/progress.h"

#include <algorithm>
#include <mutex>

namespace plat {

ProgressBar::ProgressBar(TWindow* parent, int id, int x, int y, int w, int h) : TControl(parent, id, nullptr, x, y, w, h) {}

bool ProgressBar::IsStateMessage(UINT msg) const {
  return (msg >= PBM_SETRANGE && msg <= PBM_GETPOS) || TControl::IsStateMessage(msg);
}

LRESULT ProgressBar::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  plat::WindowRef ref = Ref;
  if (!ref) return 0;
  std::lock_guard lock(ref->mu);
  auto clamp = [&](int v) { return std::clamp(v, Low, std::max(Low, High)); };
  int old = Pos;
  switch (msg) {
    case PBM_SETRANGE: {
      LRESULT prev = MAKELONG(Low, High);
      Low = LOWORD(lp);
      High = HIWORD(lp);
      Pos = clamp(Pos);
      return prev;
    }
    case PBM_GETRANGE:
      return wp ? Low : High;
    case PBM_SETPOS:
      Pos = clamp(static_cast<int>(static_cast<intptr_t>(wp)));
      return old;
    case PBM_DELTAPOS:
      Pos = clamp(Pos + static_cast<int>(static_cast<intptr_t>(wp)));
      return old;
    case PBM_SETSTEP: {
      int prev = Step;
      Step = static_cast<int>(static_cast<intptr_t>(wp));
      return prev;
    }
    case PBM_STEPIT:
      // Past the end it starts again at the bottom, as the control does.
      Pos += Step;
      if (Pos > High) Pos = Low + (Pos - High);
      Pos = clamp(Pos);
      return old;
    case PBM_GETPOS:
      return Pos;
    default:
      return TControl::DefWindowProc(msg, wp, lp);
  }
}

}  // namespace plat
