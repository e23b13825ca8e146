// Binding of the option library (file base "lvoptlib") for qoralsubs64: the bridge's own entry
// names ("CXCheck", "CXAPIVersion", and "C" + API name for functions with text parameters) and
// no locking. Same library, same interface version and same calling contract as the link's
// binding (optdcdef.h).
#pragma once

#include <string>

#include "runtime/libbinding.h"

namespace qlink::bridgeopt {

using optHandle_t = void*;

// The four operations of the binding. Messages are at most 255 characters.
bool opt_library_load(std::string* msg);
bool opt_object_create(optHandle_t* object, std::string* msg);
int opt_object_free(optHandle_t* object);
int opt_library_unload();

LibBinding& OptBinding();

// API functions the bridge calls. Text outputs are buffers of QLINK_STRING_BUFSIZE characters.
int optReadDefinition(optHandle_t p, const char* fileName);
void optEOLOnlySet(optHandle_t p, int on);
void optEchoSet(optHandle_t p, int on);
int optReadParameterFile(optHandle_t p, const char* fileName);
void optClearMessages(optHandle_t p);
// Defined state of the named option (0 when not set or unknown).
int optGetDefinedStr(optHandle_t p, const char* name);
void optGetStrStr(optHandle_t p, const char* name, char* value);
int optGetIntStr(optHandle_t p, const char* name);
// Nonzero when value is a solver name, optionally followed by a point and an option-file number;
// the name goes to name, the number (0 without one) to optFileNr.
int optGetNameOpt(optHandle_t p, const char* value, char* name, int* optFileNr);

}  // namespace qlink::bridgeopt
