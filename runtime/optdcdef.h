// Binding of the option library (file base "lvoptlib") for qorallink, and the typed API
// functions the link calls. Each API function takes the object made by opt_object_create; before
// the library is loaded, and for functions it lacks, the call goes to the binding's stub
// (message, then exit code 123). Options are numbered from 1 as in the definition file.
#pragma once

#include <string>

#include "runtime/libbinding.h"

namespace qlink {

using optHandle_t = void*;

inline constexpr int kOptInterfaceVersion = 4;

// Data types reported by optGetInfoNr.
inline constexpr int kOptDataInteger = 1;
inline constexpr int kOptDataReal = 2;
inline constexpr int kOptDataString = 3;
inline constexpr int kOptDataStringList = 4;
inline constexpr int kOptDataEnum = 5;
// Option types reported by optGetInfoNr.
inline constexpr int kOptTypeValue = 0;
inline constexpr int kOptTypeDot = 1;
// Defined states: 0 not set, 1 set by the caller, 3 set from an option file.
inline constexpr bool OptDefinedIsSet(int state) { return state == 1 || state == 3; }

// The four operations of the binding. Messages are at most 255 characters.
bool opt_library_load(std::string* msg);
bool opt_object_create(optHandle_t* object, std::string* msg);
int opt_object_free(optHandle_t* object);
int opt_library_unload();

LibBinding& OptBinding();

// API functions. Text outputs are buffers of QLINK_STRING_BUFSIZE (256) characters.
// Reading: 0 when read; problems are queued as messages.
int optReadDefinition(optHandle_t p, const char* fileName);
// Number of errors in the option file (0 = every line used).
int optReadParameterFile(optHandle_t p, const char* fileName);
void optEchoSet(optHandle_t p, int on);
void optEOLOnlySet(optHandle_t p, int on);
// Messages, numbered from 1; kind 1 an echoed line, 2 an error.
int optMessageCount(optHandle_t p);
void optGetMessage(optHandle_t p, int nr, char* msg, int* kind);
void optClearMessages(optHandle_t p);
// 1 when option nr exists, with its defined state, data type and option type.
int optGetInfoNr(optHandle_t p, int nr, int* defined, int* dataType, int* optType);
int optGetDefinedNr(optHandle_t p, int nr);
int optGetIntNr(optHandle_t p, int nr);
double optGetDblNr(optHandle_t p, int nr);
void optGetStrNr(optHandle_t p, int nr, char* value);
// Setting: 0 when taken (the option is then defined), else 1 with a message.
int optSetIntNr(optHandle_t p, int nr, int value);
int optSetDblNr(optHandle_t p, int nr, double value);
int optSetStrNr(optHandle_t p, int nr, const char* value);
// 1 with the option's name as the definition file spells it.
int optGetNameNr(optHandle_t p, int nr, char* name);
// Back to the default and not defined; 0 on success.
int optResetNr(optHandle_t p, int nr);
// The option's group (its position in the definition file's group list), and the number of the
// group at that position.
int optGetOptGroupNr(optHandle_t p, int nr);
int optGetGroupGrpNr(optHandle_t p, int group);
// Entries of a list option; optReadFromListStr returns 0 with entry k (from 1).
int optListCountStr(optHandle_t p, const char* name);
int optReadFromListStr(optHandle_t p, const char* name, int k, char* value);
// Dot options k = 1 ... optDotOptCount: symbol name, option number, label count, value; then the
// label at position pos (from 1, "*" for a wildcard). Both return 0 on success.
int optDotOptCount(optHandle_t p);
int optGetDotOptNr(optHandle_t p, int k, char* symbol, int* optNr, int* labelCount, double* value);
int optGetDotOptUel(optHandle_t p, int k, int pos, char* label);

// Owner of one option object, freed through the binding when it goes out of scope.
using TOptObject = TBindingObject<opt_object_create, opt_object_free>;

}  // namespace qlink
