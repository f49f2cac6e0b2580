/* The rexec client; see rexec.h. */
#define _GNU_SOURCE
#include "plugins/rexec.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "platform/remote_shell_abi.h"

/* A refusal's text is short; a longer one is cut, never read past. */
enum { kRefusalText = 200 };

void rexec_error(char* error, int errorSize, const char* format, ...) {
  if (!error || errorSize <= 0) return;
  va_list args;
  va_start(args, format);
  vsnprintf(error, (size_t)errorSize, format, args);
  va_end(args);
}

int rexec_timeout_ms(void) {
  const char* text = getenv(KV_UNIXLINK_TIMEOUT_ENV);
  if (text && *text) {
    char* end = NULL;
    long ms = strtol(text, &end, 10);
    if (end && *end == '\0' && ms > 0 && ms <= 3600000) return (int)ms;
  }
  return KV_UNIXLINK_TIMEOUT_DEFAULT_MS;
}

static long long now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

/* poll() until the deadline, across signals: its result, 0 at the deadline. */
static int poll_until(struct pollfd* fds, nfds_t count, long long deadline) {
  for (;;) {
    long long left = deadline - now_ms();
    if (left < 0) left = 0;
    int n = poll(fds, count, (int)left);
    if (n >= 0 || errno != EINTR) return n;
  }
}

static int connect_one(const struct addrinfo* a, long long deadline) {
  int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
  if (fd < 0) return -1;
  if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) return fd;
  if (errno == EINPROGRESS) {
    struct pollfd p = {fd, POLLOUT, 0};
    if (poll_until(&p, 1, deadline) == 1) {
      int soError = 0;
      socklen_t len = sizeof soError;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) == 0 && soError == 0) return fd;
      errno = soError;
    } else {
      errno = ETIMEDOUT;
    }
  }
  int saved = errno;
  close(fd);
  errno = saved;
  return -1;
}

static int connect_host(const char* host, int port, char* error, int errorSize) {
  char service[16];
  snprintf(service, sizeof service, "%d", port);
  struct addrinfo hints;
  memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  struct addrinfo* list = NULL;
  int rc = getaddrinfo(host, service, &hints, &list);
  if (rc != 0) {
    rexec_error(error, errorSize, "%s: %s", host, gai_strerror(rc));
    return KV_REMOTE_NO_HOST;
  }
  const long long deadline = now_ms() + rexec_timeout_ms();
  int fd = -1, lastErrno = 0;
  for (const struct addrinfo* a = list; a && fd < 0; a = a->ai_next) {
    fd = connect_one(a, deadline);
    if (fd < 0) lastErrno = errno;
  }
  freeaddrinfo(list);
  if (fd < 0) {
    rexec_error(error, errorSize, "%s port %d: %s", host, port, strerror(lastErrno));
    return lastErrno == ETIMEDOUT ? KV_REMOTE_TIMEOUT : KV_REMOTE_CONNECT;
  }
  return fd;
}

static int send_all(int fd, const char* buffer, size_t size, long long deadline) {
  while (size > 0) {
    ssize_t n = send(fd, buffer, size, MSG_NOSIGNAL);
    if (n > 0) {
      buffer += n;
      size -= (size_t)n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      struct pollfd p = {fd, POLLOUT, 0};
      int r = poll_until(&p, 1, deadline);
      if (r == 0) return KV_REMOTE_TIMEOUT;
      if (r < 0) return KV_REMOTE_IO;
      continue;
    }
    return KV_REMOTE_IO;
  }
  return 0;
}

/* A listening socket beside the connection's own address, for the error
   channel; its port goes into port. */
static int listen_beside(int connected, int* port) {
  struct sockaddr_storage local;
  socklen_t len = sizeof local;
  if (getsockname(connected, (struct sockaddr*)&local, &len) != 0) return -1;
  if (local.ss_family == AF_INET) ((struct sockaddr_in*)&local)->sin_port = 0;
  else if (local.ss_family == AF_INET6) ((struct sockaddr_in6*)&local)->sin6_port = 0;
  else return -1;
  int fd = socket(local.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  if (bind(fd, (struct sockaddr*)&local, len) != 0 || listen(fd, 1) != 0 ||
      getsockname(fd, (struct sockaddr*)&local, &len) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(local.ss_family == AF_INET ? ((struct sockaddr_in*)&local)->sin_port
                                           : ((struct sockaddr_in6*)&local)->sin6_port);
  return fd;
}

/* Whether two addresses name the same host (ports aside). */
static int same_host(const struct sockaddr_storage* a, const struct sockaddr_storage* b) {
  if (a->ss_family != b->ss_family) return 0;
  if (a->ss_family == AF_INET)
    return ((const struct sockaddr_in*)a)->sin_addr.s_addr == ((const struct sockaddr_in*)b)->sin_addr.s_addr;
  if (a->ss_family == AF_INET6)
    return memcmp(&((const struct sockaddr_in6*)a)->sin6_addr, &((const struct sockaddr_in6*)b)->sin6_addr,
                  sizeof(struct in6_addr)) == 0;
  return 0;
}

/* The server's error channel: only a connection from the host we talk to
   (peer) is taken; anyone else's is closed. -1 when this one was not it. */
static int accept_error_channel(int listening, const struct sockaddr_storage* peer) {
  struct sockaddr_storage from;
  socklen_t fromLen = sizeof from;
  int fd = accept4(listening, (struct sockaddr*)&from, &fromLen, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) return -1;
  if (!same_host(peer, &from)) {
    close(fd);
    return -1;
  }
  return fd;
}

/* After a refusal byte: the server's text up to its line end. */
static void read_refusal(int fd, long long deadline, char* error, int errorSize) {
  char text[kRefusalText + 1];
  size_t used = 0;
  while (used < kRefusalText) {
    struct pollfd p = {fd, POLLIN, 0};
    if (poll_until(&p, 1, deadline) != 1) break;
    ssize_t n = recv(fd, text + used, 1, 0);
    if (n <= 0 || text[used] == '\n') break;
    used++;
  }
  text[used] = '\0';
  rexec_error(error, errorSize, "%s", used ? text : "the host refused the command");
}

/* Waits for the server's answer byte and its error channel from peer. */
static int await_start(int out, int listening, const struct sockaddr_storage* peer, int* err, char* error,
                       int errorSize) {
  const long long deadline = now_ms() + rexec_timeout_ms();
  int answered = 0;
  while (!answered || *err < 0) {
    struct pollfd p[2] = {{out, POLLIN, 0}, {listening, POLLIN, 0}};
    const nfds_t count = answered ? 1 : 2;
    struct pollfd* set = answered ? &p[1] : p;
    int r = poll_until(set, count, deadline);
    if (r == 0) {
      rexec_error(error, errorSize, "the host did not answer in time");
      return KV_REMOTE_TIMEOUT;
    }
    if (r < 0) return KV_REMOTE_IO;
    if (!answered && (p[0].revents & (POLLIN | POLLHUP | POLLERR))) {
      char status = 0;
      ssize_t n = recv(out, &status, 1, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) {
        rexec_error(error, errorSize, "the host closed the connection: login refused");
        return KV_REMOTE_REFUSED;
      }
      if (status != 0) {
        read_refusal(out, deadline, error, errorSize);
        return KV_REMOTE_REFUSED;
      }
      answered = 1;
    }
    if (*err < 0 && (p[1].revents & POLLIN)) *err = accept_error_channel(listening, peer);
  }
  return 0;
}

int rexec_open(const char* host, int port, const char* user, const char* password, const char* command,
               struct rexec_conn* c, char* error, int errorSize) {
  c->out = c->err = -1;
  if (!host || !*host || !user || !password || !command || port <= 0 || port > 65535) {
    rexec_error(error, errorSize, "no host, user, password or command");
    return KV_REMOTE_BAD_ARGUMENT;
  }
  int out = connect_host(host, port, error, errorSize);
  if (out < 0) return out;
  /* The server's address, for its error channel: taken now, as a
     connection it resets later has none. */
  struct sockaddr_storage peer;
  socklen_t peerLen = sizeof peer;
  int errPort = 0;
  int listening = getpeername(out, (struct sockaddr*)&peer, &peerLen) == 0 ? listen_beside(out, &errPort) : -1;
  if (listening < 0) {
    rexec_error(error, errorSize, "no error channel: %s", strerror(errno));
    close(out);
    return KV_REMOTE_IO;
  }
  char portText[16];
  snprintf(portText, sizeof portText, "%d", errPort);
  const long long deadline = now_ms() + rexec_timeout_ms();
  const char* parts[4] = {portText, user, password, command};
  int rc = 0;
  for (int i = 0; i < 4 && rc == 0; i++) rc = send_all(out, parts[i], strlen(parts[i]) + 1, deadline);
  if (rc != 0) {
    rexec_error(error, errorSize, rc == KV_REMOTE_TIMEOUT ? "the host did not answer in time"
                                                          : "the connection broke while logging in");
  } else {
    int err = -1;
    rc = await_start(out, listening, &peer, &err, error, errorSize);
    c->err = err;
  }
  close(listening);
  if (rc != 0) {
    if (c->err >= 0) close(c->err);
    c->err = -1;
    close(out);
    return rc;
  }
  c->out = out;
  return 0;
}

/* Drops what the error channel holds; closes it at its end. */
static void drain_error_channel(struct rexec_conn* c) {
  char scratch[512];
  ssize_t n = recv(c->err, scratch, sizeof scratch, 0);
  if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
    close(c->err);
    c->err = -1;
  }
}

int rexec_read(struct rexec_conn* c, char* buffer, int size) {
  if (!c || c->out < 0 || !buffer || size <= 0) return KV_REMOTE_BAD_ARGUMENT;
  const long long deadline = now_ms() + rexec_timeout_ms();
  for (;;) {
    struct pollfd p[2] = {{c->out, POLLIN, 0}, {c->err, POLLIN, 0}};
    int r = poll_until(p, c->err >= 0 ? 2 : 1, deadline);
    if (r == 0) return KV_REMOTE_TIMEOUT;
    if (r < 0) return KV_REMOTE_IO;
    if (c->err >= 0 && (p[1].revents & (POLLIN | POLLHUP | POLLERR))) drain_error_channel(c);
    if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      ssize_t n = recv(c->out, buffer, (size_t)size, 0);
      if (n >= 0) return (int)n;
      if (errno != EINTR && errno != EAGAIN) return KV_REMOTE_IO;
    }
  }
}

int rexec_write(struct rexec_conn* c, const char* buffer, size_t size) {
  if (!c || c->out < 0 || (!buffer && size)) return KV_REMOTE_BAD_ARGUMENT;
  return send_all(c->out, buffer, size, now_ms() + rexec_timeout_ms());
}

void rexec_close(struct rexec_conn* c) {
  if (!c) return;
  if (c->out >= 0) close(c->out);
  if (c->err >= 0) close(c->err);
  c->out = c->err = -1;
}
