// MDI frames and client.
#include "platform/ui/mdi.h"

TFrameWindow* TMDIClient::GetActiveMDIChild() const {
  auto* frame = dynamic_cast<TFrameWindow*>(GetParentO());
  return frame ? frame->GetActiveMDIChild() : nullptr;
}

TMDIFrame::TMDIFrame(const char* title, TResId menuResId, TMDIClient& client)
    : TFrameWindow(nullptr, title, &client) {
  if (menuResId.Id) AssignMenu(menuResId);
}

TDecoratedMDIFrame::TDecoratedMDIFrame(const char* title, TResId menuResId, TMDIClient& client, bool track)
    : TDecoratedFrame(nullptr, title, &client, track) {
  if (menuResId.Id) AssignMenu(menuResId);
}
