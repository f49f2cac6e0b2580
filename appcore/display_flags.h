// Bits of TGlobals::DisplayFlags.
#pragma once

constexpr int kDisplayOnTop = 0x1;
constexpr int kDisplayToolBar = 0x2;
constexpr int kDisplayStatusBar = 0x4;
constexpr int kDisplayMenuHints = 0x8;
constexpr int kDisplayMaximized = 0x10;
