/* The calling contract between a library binding and the modeling system's libraries that it
 * loads at run time: the type codes of API signatures and the C types of the entries every such
 * library exports (create, free, check, version, load path, initialize, finalize).
 *
 * Both the bindings (C++) and the libraries include this header, so it is plain C.
 *
 * Every API function of a library takes the library object (void*) as its first argument; that
 * argument is implied and not part of the signature. A signature is the parameter count and a
 * list of type codes, the result first, then one code per parameter. */
#ifndef QLINK_RUNTIME_APISIG_H
#define QLINK_RUNTIME_APISIG_H

#ifdef __cplusplus
extern "C" {
#endif

/* Type codes. */
enum {
  QLINK_SIG_VOID = 0,             /* result only: no value */
  QLINK_SIG_DOUBLE = 1,           /* double by value */
  QLINK_SIG_DOUBLE_OUT = 2,       /* double*: one value written by the callee */
  QLINK_SIG_INT = 3,              /* int by value (also used for flags) */
  QLINK_SIG_INT_OUT = 4,          /* int*: one value written by the callee */
  QLINK_SIG_INT_ARRAY_IN = 5,     /* const int*: array read by the callee */
  QLINK_SIG_INT_ARRAY_OUT = 6,    /* int*: array written by the callee */
  QLINK_SIG_DOUBLE_ARRAY_IN = 7,  /* const double*: array read by the callee */
  QLINK_SIG_DOUBLE_ARRAY_OUT = 8, /* double*: array written by the callee */
  QLINK_SIG_POINTER = 9,          /* void* by value: user data, an object of another library */
  QLINK_SIG_CHARPTR = 10,         /* const char*: null-terminated text of any length */
  QLINK_SIG_STRING_IN = 11,       /* const char*: text of at most 255 characters */
  QLINK_SIG_STRING_OUT = 12,      /* char*: caller's buffer of QLINK_STRING_BUFSIZE characters */
  QLINK_SIG_STRING_ARRAY_OUT = 13,/* char (*)[QLINK_STRING_BUFSIZE]: array of such buffers */
  QLINK_SIG_CALLBACK = 14,        /* a C function pointer */
  QLINK_SIG_INT64 = 15,           /* int64_t by value */
  QLINK_SIG_INT64_OUT = 16        /* int64_t*: one value written by the callee */
};

/* A function "has string parameters" (which decides its entry-point name for some libraries)
 * when a parameter has one of the codes QLINK_SIG_STRING_IN, QLINK_SIG_STRING_OUT or
 * QLINK_SIG_STRING_ARRAY_OUT. A plain QLINK_SIG_CHARPTR does not count. */

/* Size of a text buffer passed with QLINK_SIG_STRING_OUT, and of every message buffer below:
 * 255 characters and the terminating zero. */
#define QLINK_STRING_BUFSIZE 256

/* Most parameters an API function may have. */
#define QLINK_MAX_API_PARAMS 20

/* Create entry: makes a library object and stores it at *object (null on failure). */
typedef void (*QlinkCreateFn)(void** object);

/* Create entry with a directory: as QlinkCreateFn, with the directory the library was loaded
 * from; returns nonzero on success and otherwise writes a reason into msg (msgLen characters
 * including the terminating zero). */
typedef int (*QlinkCreateDFn)(void** object, const char* dir, char* msg, int msgLen);

/* Free entry: releases *object and sets it to null. */
typedef void (*QlinkFreeFn)(void** object);

/* Check entry: whether the library provides the API function `name` (without any entry-name
 * prefix) with the given signature: paramCount parameters, types[0] the result code,
 * types[1..paramCount] the parameter codes. Returns nonzero when it does; otherwise writes the
 * reason into msg. */
typedef int (*QlinkCheckFn)(const char* name, int paramCount, const int* types, char* msg,
                            int msgLen);

/* Version entry: whether the library serves the interface version apiVersion. Returns 0 when it
 * does not, with the reason in msg; a positive value when the binding should check each API
 * function with the check entry; a negative value when every function may be bound directly. */
typedef int (*QlinkVersionFn)(int apiVersion, char* msg, int msgLen);

/* Optional entries. The load path is the directory the library was loaded from (empty when it
 * was found by the system's library search). */
typedef void (*QlinkSetLoadPathFn)(const char* path);
typedef void (*QlinkGetLoadPathFn)(char* buffer, int bufferLen);
typedef void (*QlinkInitializeFn)(void);
typedef void (*QlinkFinalizeFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* QLINK_RUNTIME_APISIG_H */
