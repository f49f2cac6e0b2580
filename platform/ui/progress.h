// The progress bar window class "msctls_progress32": a range (0..100 at
// first) and a position kept inside it.
#pragma once

#include "platform/ui/control.h"

namespace plat {

class ProgressBar : public TControl {
 public:
  ProgressBar(TWindow* parent, int id, int x, int y, int w, int h);

  bool IsStateMessage(UINT msg) const override;
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

 protected:
  const char* WindowClass() const override { return "msctls_progress32"; }

 private:
  int Low = 0;
  int High = 100;
  int Pos = 0;
  int Step = 10;
};

}  // namespace plat
