/* A plug-in with one entry of each remote-shell library only. */
__attribute__((visibility("default"))) int WinsockRCmd(void) { return -1; }
__attribute__((visibility("default"))) int WinsockRCP2(void) { return -1; }
