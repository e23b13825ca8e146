// Binding of the dictionary library (file base "lvdctlib") for qorallink, and the typed API
// functions the link calls. The dictionary names the symbols and labels of the model instance
// and tells which symbol and label tuple each row and column belongs to.
#pragma once

#include <string>

#include "runtime/libbinding.h"

namespace qlink {

using dctHandle_t = void*;

inline constexpr int kDctInterfaceVersion = 2;
inline constexpr int kDctMaxDim = 20;
// Symbol types reported by dctSymType.
inline constexpr int kDctVariable = 5;
inline constexpr int kDctEquation = 6;

// The four operations of the binding. Messages are at most 255 characters.
bool dct_library_load(std::string* msg);
bool dct_object_create(dctHandle_t* object, std::string* msg);
int dct_object_free(dctHandle_t* object);
int dct_library_unload();

LibBinding& DctBinding();

// API functions. Text outputs are buffers of QLINK_STRING_BUFSIZE (256) characters; label tuples
// hold kDctMaxDim ints. Symbols and labels count from 1, rows and columns from 0.
// 0 when the dictionary file was read, else nonzero with the reason in msg.
int dctLoadEx(dctHandle_t p, const char* fileName, char* msg);
int dctNUels(dctHandle_t p);
// Symbol number, 0 when unknown; names compare without regard to case.
int dctSymIndex(dctHandle_t p, const char* name);
int dctSymDim(dctHandle_t p, int sym);
// kDctVariable or kDctEquation, -1 for an unknown symbol.
int dctSymType(dctHandle_t p, int sym);
// 0 on success.
int dctSymName(dctHandle_t p, int sym, char* name);
int dctSymText(dctHandle_t p, int sym, char* text);
// Label number, 0 when unknown; labels compare without regard to case.
int dctUelIndex(dctHandle_t p, const char* label);
// 0 with the label and its quote character (a blank when the label needs none).
int dctUelLabel(dctHandle_t p, int uel, int* quote, char* label);
// 0 with the symbol, the label tuple and its length of row or column pos; nonzero (symbol 0)
// when the dictionary has no entry for it.
int dctRowUels(dctHandle_t p, int row, int* sym, int* uels, int* dim);
int dctColUels(dctHandle_t p, int col, int* sym, int* uels, int* dim);
// Search of a symbol's rows or columns matching a label tuple with 0 as wildcard: the handle
// and the first position (negative when none); then the next positions (result 0 and a negative
// position at the end); the handle is released with dctFindClose.
void* dctFindFirstRowCol(dctHandle_t p, int sym, const int* uels, int* rowcol);
int dctFindNextRowCol(dctHandle_t p, void* handle, int* rowcol);
void dctFindClose(dctHandle_t p, void* handle);

// Owner of one dictionary object, freed through the binding when it goes out of scope.
using TDctObject = TBindingObject<dct_object_create, dct_object_free>;

}  // namespace qlink
