/* The client side of the BSD rexec service, shared by the RCMD32 and RCP32
   plug-ins.

   The client connects to the service and sends, each ended by a zero byte:
   the port of its error channel (a socket it listens on; the server
   connects back to it for the command's standard error), the user, the
   password and the command. The server answers one zero byte and then the
   command's standard output until the command ends; or byte 1 and a text
   up to a line end when it refuses. A refused login may also end in a
   closed connection without any answer.

   Every connect, send and read waits at most the time-out of
   rexec_timeout_ms(); the error channel is read along with the output and
   dropped, so a command that writes much to it never stalls. */
#ifndef KV_PLUGINS_REXEC_H
#define KV_PLUGINS_REXEC_H

#include <stddef.h>

struct rexec_conn {
  int out; /* the command's input and output */
  int err; /* its standard error; -1 once it ended */
};

/* KV_UNIXLINK_TIMEOUT_MS from the environment, else the default. */
int rexec_timeout_ms(void);

/* Logs in and starts the command: 0 with c filled, or a negative
   kv_remote_error with a text in error. */
int rexec_open(const char* host, int port, const char* user, const char* password, const char* command,
               struct rexec_conn* c, char* error, int errorSize);
/* Up to size bytes of the output: the count, 0 at its end, negative on a
   failure or when the host stopped answering. */
int rexec_read(struct rexec_conn* c, char* buffer, int size);
/* Sends all bytes: 0 or negative. */
int rexec_write(struct rexec_conn* c, const char* buffer, size_t size);
void rexec_close(struct rexec_conn* c);

/* Formats into a caller's error buffer (null or size 0: nothing). */
void rexec_error(char* error, int errorSize, const char* format, ...) __attribute__((format(printf, 3, 4)));

#endif
