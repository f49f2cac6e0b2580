// The program's entry: finds its resources, opens the desktop when there
// is a display, and runs the start-up.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/appmain.h"
#include "app/threads.h"
#include "main/register.h"
#include "platform/ui/resource.h"
#ifdef KV_HAVE_DESKTOP
#include "platform/wx/desktop.h"
#endif

namespace {

// The resources beside the program (an installed or built tree), else the
// ones the build prepared.
std::string ResourceDir(const char* argv0) {
  if (const char* env = std::getenv("KV_RESOURCE_DIR"); env && *env) return env;
  std::string self = argv0 ? argv0 : "";
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) self.assign(buf, static_cast<size_t>(n));
  auto slash = self.rfind('/');
  if (slash != std::string::npos) {
    std::string beside = self.substr(0, slash) + "/resources";
    if (access((beside + "/dialogs").c_str(), F_OK) == 0) return beside;
  }
  return KV_BUILD_RESOURCES;
}

}  // namespace

int main(int argc, char** argv) {
  plat::set_resource_dir(ResourceDir(argc > 0 ? argv[0] : nullptr));
  bool desktop = false;
#ifdef KV_HAVE_DESKTOP
  desktop = plat::attach_desktop_renderer(argc, argv);
#endif
  if (!desktop) {
    std::fprintf(stderr, "kelvane: no display to show its windows on; start it on a desktop, or under "
                         "a virtual one: xvfb-run -a %s\n", argc > 0 ? argv[0] : "kelvane");
    return 2;
  }
  RegisterProgramCommands();
  int rc = AppMain(argc, argv);
#ifdef KV_HAVE_DESKTOP
  if (desktop) plat::detach_desktop_renderer();
#endif
  // The shutdown ends every worker; one still running is a fault to report.
  if (size_t left = RunningWorkers()) {
    std::fprintf(stderr, "kelvane: %zu worker threads still running at the end\n", left);
    return 3;
  }
  return rc;
}
