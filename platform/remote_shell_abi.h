/* The remote-shell plug-ins of the Unix link: RCMD32 runs a command on a
   Unix host through its rexec service, RCP32 copies a file from the host.
   Both are shared objects in the plug-in directory (librcmd32.so and
   librcp32.so), loaded by the DLL names and bound by the entry names below.

   RCMD32: WinsockRCmd logs in with user and password, starts the command
   and answers a handle (0 or more), or a negative code with a text in the
   error buffer. RCmdRead hands out the command's standard output: bytes
   read, 0 at its end, negative on failure. The command's standard error
   comes back on a channel of its own and is not part of that output.
   RCmdClose ends the command and frees the handle.

   RCP32: WinsockRCP2 copies "user@host:path" to a local path over the same
   rexec login (the password and the service's port are its arguments), by
   running "rcp -f" on the host and taking the file as rcp's sink. The local
   file appears only when the whole file has arrived.

   Every connect and every read waits at most KV_UNIXLINK_TIMEOUT_MS
   milliseconds (environment; 15000 when unset), so a host that stops
   answering ends the call with an error instead of blocking for ever. */
#ifndef KV_PLATFORM_REMOTE_SHELL_ABI_H
#define KV_PLATFORM_REMOTE_SHELL_ABI_H

#ifdef __cplusplus
extern "C" {
#endif

/* The rexec service's well-known port. */
#define KV_REXEC_PORT 512
/* The error buffers' sizes the program passes. */
#define KV_RCMD_ERROR_SIZE 128
#define KV_RCP_ERROR_SIZE 256
/* The environment variable with the time-out in milliseconds. */
#define KV_UNIXLINK_TIMEOUT_ENV "KV_UNIXLINK_TIMEOUT_MS"
#define KV_UNIXLINK_TIMEOUT_DEFAULT_MS 15000

/* Negative results of both libraries. */
enum kv_remote_error {
  KV_REMOTE_BAD_ARGUMENT = -1,
  KV_REMOTE_NO_HOST = -2,      /* the host name does not resolve */
  KV_REMOTE_CONNECT = -3,      /* no connection to the service */
  KV_REMOTE_TIMEOUT = -4,      /* the host stopped answering */
  KV_REMOTE_REFUSED = -5,      /* the login or the command was refused */
  KV_REMOTE_IO = -6,           /* the connection broke */
  KV_REMOTE_PROTOCOL = -7,     /* the host's answer made no sense */
  KV_REMOTE_REMOTE_ERROR = -8, /* the host reported an error (its text) */
  KV_REMOTE_LOCAL_FILE = -9,   /* the local file could not be written */
  KV_REMOTE_NO_HANDLE = -10,   /* the handle is not an open command */
  KV_REMOTE_NO_MEMORY = -11
};

/* RCMD32 */
typedef int (*kv_winsock_rcmd_fn)(const char* host, int port, const char* user, const char* password,
                                  const char* command, char* error, int errorSize);
typedef int (*kv_rcmd_read_fn)(int handle, char* buffer, int size);
/* One byte of output (0-255), -1 at its end, another negative on failure. */
typedef int (*kv_rcmd_read_byte_fn)(int handle);
typedef int (*kv_rcmd_close_fn)(int handle);
/* The socket of the command's output, negative for a handle not open. */
typedef int (*kv_rcmd_handle_fn)(int handle);
/* Writes to the command's standard input: bytes written or negative. */
typedef int (*kv_rcmd_send_fn)(int handle, const char* buffer, int size);

/* RCP32. port -1 stands for KV_REXEC_PORT. */
typedef int (*kv_winsock_rcp2_fn)(const char* remote, const char* local, int port, const char* password,
                                  char* error, int errorSize);
/* WinsockRCP2 on the rexec service's own port. */
typedef int (*kv_winsock_rcp_fn)(const char* remote, const char* local, const char* password, char* error,
                                 int errorSize);
/* count copies one after another; the first failure ends them. */
typedef int (*kv_winsock_arr_rcp2_fn)(const char* const* remotes, const char* const* locals, int count, int port,
                                      const char* password, char* error, int errorSize);
typedef int (*kv_winsock_arr_rcp_fn)(const char* const* remotes, const char* const* locals, int count,
                                     const char* password, char* error, int errorSize);

#ifdef __cplusplus
}
#endif

#endif
