// The desktop's libraries keep caches and type data for the life of the
// process; they are not ours to free, so the sanitizer's leak check at the
// program's end skips them and reports only leaks of our own. Linked into
// the program and the tests that show windows.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libgtk-3\n"
         "leak:libgdk-3\n"
         "leak:libglib-2\n"
         "leak:libgobject-2\n"
         "leak:libgio-2\n"
         "leak:libfontconfig\n"
         "leak:libpango\n"
         "leak:libcairo\n"
         "leak:libharfbuzz\n"
         "leak:libX11\n"
         "leak:libatk\n"
         "leak:libwx_\n"
         "leak:libdbus\n"
         "leak:libepoxy\n";
}
