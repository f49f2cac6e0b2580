// The window layer's services for plug-ins (kv_plugin_ui of
// platform/plugin_abi.h), and the two windows they open: a picture viewer
// (a list of the files, the picture of the chosen one) and a plain text
// editor over a file (OK writes it back).
#pragma once

#include <string>
#include <vector>

#include "platform/ui/dialog.h"
#include "platform/ui/gdi_object.h"

class TPictureViewer : public TDialog {
 public:
  static constexpr int kTemplate = 1540, kListId = 101, kPaneId = 102;
  TPictureViewer(TWindow* parent, const char* title, std::vector<std::string> files);
  void SetupWindow() override;
  // Why the chosen picture is not shown (empty when it is).
  std::string Problem() const;

 protected:
  void EvPick();
  DECLARE_RESPONSE_TABLE(TPictureViewer);

 private:
  std::vector<std::string> Files;
};

class TTextFileDialog : public TDialog {
 public:
  static constexpr int kTemplate = 1541, kEditId = 101;
  TTextFileDialog(TWindow* parent, const char* title, const std::string& path);
  void SetupWindow() override;
  void CmOk() override;
  // The file could not be read (told; the dialog ended at once).
  bool HasFailed() const { return Failed; }

 private:
  std::string Path;
  bool Failed = false;
};

namespace plat {
// Reads a PNG or BMP picture (a DOS or native path); false with a reason.
bool load_picture(const std::string& path, Image& out, std::string& error);
// Registers the services with the plug-in loader; the window layer does
// this when it is linked in.
void register_plugin_services();
}  // namespace plat
