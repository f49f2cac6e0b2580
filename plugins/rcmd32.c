/* RCMD32: remote commands over the rexec service (see
   platform/remote_shell_abi.h). A handle is an index into a table of open
   commands; the table grows as needed and a closed slot is used again. */
#include <pthread.h>
#include <stdlib.h>

#include "platform/remote_shell_abi.h"
#include "plugins/rexec.h"

#define KV_EXPORT __attribute__((visibility("default")))

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static struct rexec_conn** g_open = NULL;
static int g_slots = 0;

static int keep(struct rexec_conn* c) {
  pthread_mutex_lock(&g_lock);
  int slot = 0;
  while (slot < g_slots && g_open[slot]) slot++;
  if (slot == g_slots) {
    int grown = g_slots ? g_slots * 2 : 8;
    struct rexec_conn** table = realloc(g_open, (size_t)grown * sizeof *table);
    if (!table) {
      pthread_mutex_unlock(&g_lock);
      return KV_REMOTE_NO_MEMORY;
    }
    for (int i = g_slots; i < grown; i++) table[i] = NULL;
    g_open = table;
    g_slots = grown;
  }
  g_open[slot] = c;
  pthread_mutex_unlock(&g_lock);
  return slot;
}

/* A handle's command; commands are used by one caller at a time. */
static struct rexec_conn* find(int handle) {
  pthread_mutex_lock(&g_lock);
  struct rexec_conn* c = handle >= 0 && handle < g_slots ? g_open[handle] : NULL;
  pthread_mutex_unlock(&g_lock);
  return c;
}

KV_EXPORT int WinsockRCmd(const char* host, int port, const char* user, const char* password, const char* command,
                          char* error, int errorSize) {
  if (error && errorSize > 0) error[0] = '\0';
  struct rexec_conn* c = malloc(sizeof *c);
  if (!c) return KV_REMOTE_NO_MEMORY;
  int rc = rexec_open(host, port, user, password, command, c, error, errorSize);
  if (rc != 0) {
    free(c);
    return rc;
  }
  int handle = keep(c);
  if (handle < 0) {
    rexec_close(c);
    free(c);
    rexec_error(error, errorSize, "out of memory");
  }
  return handle;
}

KV_EXPORT int RCmdRead(int handle, char* buffer, int size) {
  struct rexec_conn* c = find(handle);
  return c ? rexec_read(c, buffer, size) : KV_REMOTE_NO_HANDLE;
}

KV_EXPORT int RCmdReadByte(int handle) {
  unsigned char byte = 0;
  int n = RCmdRead(handle, (char*)&byte, 1);
  if (n == 1) return byte;
  return n == 0 ? -1 : n;
}

KV_EXPORT int RCmdSend(int handle, const char* buffer, int size) {
  struct rexec_conn* c = find(handle);
  if (!c) return KV_REMOTE_NO_HANDLE;
  if (size < 0) return KV_REMOTE_BAD_ARGUMENT;
  int rc = rexec_write(c, buffer, (size_t)size);
  return rc == 0 ? size : rc;
}

KV_EXPORT int RCmdHandle(int handle) {
  struct rexec_conn* c = find(handle);
  return c ? c->out : KV_REMOTE_NO_HANDLE;
}

KV_EXPORT int RCmdClose(int handle) {
  pthread_mutex_lock(&g_lock);
  struct rexec_conn* c = handle >= 0 && handle < g_slots ? g_open[handle] : NULL;
  if (c) g_open[handle] = NULL;
  pthread_mutex_unlock(&g_lock);
  if (!c) return KV_REMOTE_NO_HANDLE;
  rexec_close(c);
  free(c);
  return 0;
}

/* The library goes with its last user: commands left open are closed. */
__attribute__((destructor)) static void close_all(void) {
  for (int i = 0; i < g_slots; i++) RCmdClose(i);
  free(g_open);
  g_open = NULL;
  g_slots = 0;
}
