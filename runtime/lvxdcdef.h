// Binding of the data-exchange library (LVX files, file base "lvxcclib") for qorallink, and the
// typed API functions the link calls. Each API function takes the object made by
// lvx_object_create; before the library is loaded, and for functions it lacks, the call goes to
// the binding's stub (message, then exit code 123).
#pragma once

#include <string>

#include "runtime/libbinding.h"

namespace qlink {

using lvxHandle_t = void*;

inline constexpr int kLvxInterfaceVersion = 11;
inline constexpr int kLvxMaxDim = 20;

// Symbol kinds.
inline constexpr int kLvxSet = 0;
inline constexpr int kLvxParameter = 1;
inline constexpr int kLvxVariable = 2;
inline constexpr int kLvxEquation = 3;

// The five reals of a record (a set or parameter uses the level only).
inline constexpr int kLvxLevel = 0;
inline constexpr int kLvxMarginal = 1;
inline constexpr int kLvxLower = 2;
inline constexpr int kLvxUpper = 3;
inline constexpr int kLvxScale = 4;
inline constexpr int kLvxValueCount = 5;

// Positions in the special-value arrays of lvxGetSpecialValues / lvxSetReadSpecialValues.
inline constexpr int kLvxSvUndf = 0;
inline constexpr int kLvxSvNa = 1;
inline constexpr int kLvxSvPlusInf = 2;
inline constexpr int kLvxSvMinusInf = 3;
inline constexpr int kLvxSvEps = 4;
inline constexpr int kLvxSvCount = 5;

// The four operations of the binding. Messages are at most 255 characters.
bool lvx_library_load(std::string* msg);
bool lvx_object_create(lvxHandle_t* object, std::string* msg);
int lvx_object_free(lvxHandle_t* object);
int lvx_library_unload();

// The binding's state (slots, object count, stub indicators, load directory for tests).
LibBinding& LvxBinding();

// API functions. Text outputs are buffers of QLINK_STRING_BUFSIZE (256) characters; key arrays
// hold kLvxMaxDim ints and value arrays kLvxValueCount doubles.
// Opening: result 1 when open (errNr 0), else 0 with the error number in errNr.
int lvxOpenRead(lvxHandle_t p, const char* fileName, int* errNr);
int lvxOpenWrite(lvxHandle_t p, const char* fileName, const char* producer, int* errNr);
int lvxOpenWriteEx(lvxHandle_t p, const char* fileName, const char* producer, int compress,
                   int* errNr);
// 0 when the file is complete and closed, else an error number.
int lvxClose(lvxHandle_t p);
// Sets automatic conversion on close (this library never converts); returns the old setting.
int lvxAutoConvert(lvxHandle_t p, int value);
int lvxGetSpecialValues(lvxHandle_t p, double* values);
int lvxSetReadSpecialValues(lvxHandle_t p, const double* values);
// Found flag; symNr is 1-based.
int lvxFindSymbol(lvxHandle_t p, const char* name, int* symNr);
int lvxSymbolInfo(lvxHandle_t p, int symNr, char* name, int* dim, int* kind);
int lvxSymbolInfoX(lvxHandle_t p, int symNr, int* recordCount, int* userInfo, char* text);
int lvxDataReadRawStart(lvxHandle_t p, int symNr, int* recordCount);
// 1 with a record, 0 after the last one (or on an error: see lvxErrorCount). firstChanged is the
// 1-based position of the first key that differs from the previous record (1 for the first).
int lvxDataReadRaw(lvxHandle_t p, int* keys, double* values, int* firstChanged);
int lvxDataReadDone(lvxHandle_t p);
void lvxStoreDomainSetsSet(lvxHandle_t p, int value);
int lvxUELRegisterRawStart(lvxHandle_t p);
int lvxUELRegisterRaw(lvxHandle_t p, const char* label);
int lvxUELRegisterDone(lvxHandle_t p);
int lvxDataWriteRawStart(lvxHandle_t p, const char* name, const char* text, int dim, int kind,
                         int userInfo);
int lvxDataWriteRaw(lvxHandle_t p, const int* keys, const double* values);
int lvxDataWriteDone(lvxHandle_t p);
int lvxErrorCount(lvxHandle_t p);
int lvxGetLastError(lvxHandle_t p);
int lvxErrorStr(lvxHandle_t p, int errNr, char* text);
int lvxSystemInfo(lvxHandle_t p, int* symbolCount, int* labelCount);
int lvxUELGet(lvxHandle_t p, int labelNr, char* label);
int lvxFileVersion(lvxHandle_t p, char* fileVersion, char* producer);

// Owner of one LVX object: created through the binding, freed (through the binding) when it
// goes out of scope. The file itself is closed by the caller with lvxClose.
class TLvxObject : public TBindingObject<lvx_object_create, lvx_object_free> {
 public:
  // The library's text for its last error ("" when none).
  std::string LastErrorText() const;
};

}  // namespace qlink
