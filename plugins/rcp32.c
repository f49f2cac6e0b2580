/* RCP32: copies a file from a Unix host (see platform/remote_shell_abi.h).
   It logs in through rexec, runs "rcp -f <path>" there and acts as rcp's
   sink: it sends a zero byte, gets "C<mode> <size> <name>" and a line end
   (or 1 or 2 and an error text), sends a zero byte, takes size bytes and
   the source's zero byte, and answers a last zero byte. The bytes go into
   a temporary file beside the local path, which is renamed to it only
   once everything arrived; on any failure the temporary file goes. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/remote_shell_abi.h"
#include "plugins/rexec.h"

#define KV_EXPORT __attribute__((visibility("default")))

/* A control line of the source protocol is short; a longer one is not rcp. */
enum { kControlLine = 1024 };

/* "user@host:path" split in place; 0 when it is not of that form. */
static int split_remote(char* remote, char** user, char** host, char** path) {
  char* at = strchr(remote, '@');
  if (!at || at == remote) return 0;
  *at = '\0';
  *user = remote;
  char* h = at + 1;
  char* colon;
  if (*h == '[') {  // an IPv6 address in brackets
    char* close = strchr(h, ']');
    if (!close || close[1] != ':') return 0;
    *close = '\0';
    h++;
    colon = close + 1;
  } else {
    colon = strchr(h, ':');
    if (!colon) return 0;
  }
  *colon = '\0';
  *host = h;
  *path = colon + 1;
  return **host && **path;
}

/* "rcp -f 'path'" with the path quoted for the host's shell: a ' inside is
   written '\''. Null when out of memory. */
static char* source_command(const char* path) {
  size_t size = strlen("rcp -f ''") + 1;
  for (const char* p = path; *p; p++) size += *p == '\'' ? 4 : 1;
  char* command = malloc(size);
  if (!command) return NULL;
  char* w = command;
  w += sprintf(w, "rcp -f '");
  for (const char* p = path; *p; p++) {
    if (*p == '\'') {
      memcpy(w, "'\\''", 4);
      w += 4;
    } else {
      *w++ = *p;
    }
  }
  strcpy(w, "'");
  return command;
}

/* Up to size bytes from the source: the count, or a negative result with
   the reason in error (an end of the connection counts as a failure:
   the source says when it is done). */
static int read_some(struct rexec_conn* c, char* buffer, int size, char* error, int errorSize) {
  int n = rexec_read(c, buffer, size);
  if (n > 0) return n;
  rexec_error(error, errorSize, "%s",
              n == 0 ? "the host ended the copy early"
                     : n == KV_REMOTE_TIMEOUT ? "the host did not answer in time" : "the connection to the host broke");
  return n == KV_REMOTE_TIMEOUT ? n : KV_REMOTE_IO;
}

/* One control line of the source, without its line end. */
static int read_line(struct rexec_conn* c, char* line, char* error, int errorSize) {
  size_t used = 0;
  for (;;) {
    char ch = 0;
    int n = read_some(c, &ch, 1, error, errorSize);
    if (n < 0) return n;
    if (ch == '\n') break;
    if (used == kControlLine - 1) {
      rexec_error(error, errorSize, "the host's answer is not rcp's");
      return KV_REMOTE_PROTOCOL;
    }
    line[used++] = ch;
  }
  line[used] = '\0';
  return 0;
}

/* The size of a "C<mode> <size> <name>" line; -1 when the line is not one. */
static long long file_size(const char* line) {
  if (line[0] != 'C') return -1;
  const char* p = line + 1;
  int digits = 0;
  for (; *p >= '0' && *p <= '7'; p++) digits++;
  if (digits < 3 || digits > 4 || *p++ != ' ') return -1;
  long long size = 0;
  digits = 0;
  for (; *p >= '0' && *p <= '9'; p++) {
    if (size > (1LL << 50)) return -1;
    size = size * 10 + (*p - '0');
    digits++;
  }
  if (!digits || *p != ' ' || !p[1]) return -1;
  return size;
}

/* The source's answer to a step: its zero byte, or its error text. */
static int read_ack(struct rexec_conn* c, char* error, int errorSize) {
  char ack = 0;
  int n = read_some(c, &ack, 1, error, errorSize);
  if (n < 0) return n;
  if (ack == 0) return 0;
  char line[kControlLine];
  if (read_line(c, line, error, errorSize) == 0) rexec_error(error, errorSize, "%s", line);
  return ack == 1 || ack == 2 ? KV_REMOTE_REMOTE_ERROR : KV_REMOTE_PROTOCOL;
}

/* Takes size bytes into fd. */
static int receive_data(struct rexec_conn* c, int fd, long long size, char* error, int errorSize) {
  char buffer[65536];
  while (size > 0) {
    int want = size > (long long)sizeof buffer ? (int)sizeof buffer : (int)size;
    int n = read_some(c, buffer, want, error, errorSize);
    if (n < 0) return n;
    for (int done = 0; done < n;) {
      ssize_t w = write(fd, buffer + done, (size_t)(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        rexec_error(error, errorSize, "the local file could not be written: %s", strerror(errno));
        return KV_REMOTE_LOCAL_FILE;
      }
      done += (int)w;
    }
    size -= n;
  }
  return 0;
}

/* The sink's zero byte: go on, or well received. */
static int send_zero(struct rexec_conn* c, char* error, int errorSize) {
  static const char zero = 0;
  if (rexec_write(c, &zero, 1) == 0) return 0;
  rexec_error(error, errorSize, "the connection to the host broke");
  return KV_REMOTE_IO;
}

/* The sink's side of one file, into fd. */
static int sink(struct rexec_conn* c, int fd, char* error, int errorSize) {
  int rc = send_zero(c, error, errorSize);
  if (rc != 0) return rc;
  char line[kControlLine + 1];  // the kind, then the line read after it
  long long size = -1;
  for (;;) {
    char kind = 0;
    int n = read_some(c, &kind, 1, error, errorSize);
    if (n < 0) return n;
    rc = read_line(c, line + 1, error, errorSize);
    if (rc != 0) return rc;
    line[0] = kind;
    if (kind == 1 || kind == 2) {
      rexec_error(error, errorSize, "%s", line + 1);
      return KV_REMOTE_REMOTE_ERROR;
    }
    if (kind == 'T') {  // times of the file: taken and passed over
      rc = send_zero(c, error, errorSize);
      if (rc != 0) return rc;
      continue;
    }
    size = file_size(line);
    break;
  }
  if (size < 0) {
    rexec_error(error, errorSize, "the host's answer is not rcp's");
    return KV_REMOTE_PROTOCOL;
  }
  rc = send_zero(c, error, errorSize);
  if (rc == 0) rc = receive_data(c, fd, size, error, errorSize);
  if (rc == 0) rc = read_ack(c, error, errorSize);
  if (rc == 0) rc = send_zero(c, error, errorSize);
  return rc;
}

/* A temporary file beside local: its descriptor, with its name in tmp. */
static int temporary_beside(const char* local, char** tmp) {
  const char* slash = strrchr(local, '/');
  const size_t dirLength = slash ? (size_t)(slash - local + 1) : 0;
  const char* base = local + dirLength;
  *tmp = malloc(dirLength + strlen(base) + 16);
  if (!*tmp) return -1;
  sprintf(*tmp, "%.*s.%s.XXXXXX", (int)dirLength, local, base);
  int fd = mkostemp(*tmp, O_CLOEXEC);
  if (fd < 0) {
    free(*tmp);
    *tmp = NULL;
    return -1;
  }
  fchmod(fd, 0644);
  return fd;
}

KV_EXPORT int WinsockRCP2(const char* remote, const char* local, int port, const char* password, char* error,
                          int errorSize) {
  if (error && errorSize > 0) error[0] = '\0';
  if (!remote || !local || !*local || !password) {
    rexec_error(error, errorSize, "no remote name, local path or password");
    return KV_REMOTE_BAD_ARGUMENT;
  }
  char* copy = strdup(remote);
  if (!copy) return KV_REMOTE_NO_MEMORY;
  char *user, *host, *path;
  if (!split_remote(copy, &user, &host, &path)) {
    rexec_error(error, errorSize, "not a remote name of the form user@host:path: %s", remote);
    free(copy);
    return KV_REMOTE_BAD_ARGUMENT;
  }
  char* command = source_command(path);
  if (!command) {
    free(copy);
    return KV_REMOTE_NO_MEMORY;
  }
  char* tmp = NULL;
  int fd = temporary_beside(local, &tmp);
  if (fd < 0) {
    rexec_error(error, errorSize, "%s: %s", local, strerror(errno));
    free(command);
    free(copy);
    return KV_REMOTE_LOCAL_FILE;
  }
  struct rexec_conn c;
  int rc = rexec_open(host, port < 0 ? KV_REXEC_PORT : port, user, password, command, &c, error, errorSize);
  if (rc == 0) {
    rc = sink(&c, fd, error, errorSize);
    rexec_close(&c);
  }
  if (close(fd) != 0 && rc == 0) {
    rexec_error(error, errorSize, "the local file could not be written: %s", strerror(errno));
    rc = KV_REMOTE_LOCAL_FILE;
  }
  if (rc == 0 && rename(tmp, local) != 0) {
    rexec_error(error, errorSize, "%s: %s", local, strerror(errno));
    rc = KV_REMOTE_LOCAL_FILE;
  }
  if (rc != 0) unlink(tmp);
  free(tmp);
  free(command);
  free(copy);
  return rc;
}

KV_EXPORT int WinsockRCP(const char* remote, const char* local, const char* password, char* error, int errorSize) {
  return WinsockRCP2(remote, local, -1, password, error, errorSize);
}

KV_EXPORT int WinsockArrRCP2(const char* const* remotes, const char* const* locals, int count, int port,
                             const char* password, char* error, int errorSize) {
  if (count < 0 || (count > 0 && (!remotes || !locals))) return KV_REMOTE_BAD_ARGUMENT;
  for (int i = 0; i < count; i++) {
    int rc = WinsockRCP2(remotes[i], locals[i], port, password, error, errorSize);
    if (rc != 0) return rc;
  }
  return 0;
}

KV_EXPORT int WinsockArrRCP(const char* const* remotes, const char* const* locals, int count, const char* password,
                            char* error, int errorSize) {
  return WinsockArrRCP2(remotes, locals, count, -1, password, error, errorSize);
}
