/* Vectors of objects, dictionaries, boxed integers and key-value stores. */
#ifndef PB_COLLECTIONS_H
#define PB_COLLECTIONS_H

#include "pb_obj.h"

PB___BEGIN_DECLS

PB_API const PB_SORT *pbVectorSort(void) PB___NOEXCEPT;
PB_API PB_OBJ *pbVectorObj(PB_VECTOR *v) PB___NOEXCEPT;
PB_API PB_VECTOR *pbVectorFrom(PB_OBJ *obj) PB___NOEXCEPT;
PB_API PB_VECTOR *pbVectorCreate(void) PB___NOEXCEPT;
PB_API PB_INT pbVectorLength(PB_VECTOR *v) PB___NOEXCEPT;
/* A new reference to the element at index (0 <= index < length). */
PB_API PB_OBJ *pbVectorObjAt(PB_VECTOR *v, PB_INT index) PB___NOEXCEPT;
/* Appends a reference to obj (not null). */
PB_API void pbVectorAppendObj(PB_VECTOR **v, PB_OBJ *obj) PB___NOEXCEPT;
PB_API void pbVectorDelAt(PB_VECTOR **v, PB_INT index) PB___NOEXCEPT;
/* True when every element has the given sort (also for an empty vector). */
PB_API PB_BOOL pbVectorContainsOnly(PB_VECTOR *v, const PB_SORT *sort) PB___NOEXCEPT;

PB_API const PB_SORT *pbBoxedIntSort(void) PB___NOEXCEPT;
PB_API PB_BOXED_INT *pbBoxedIntCreate(PB_INT value) PB___NOEXCEPT;
PB_API PB_INT pbBoxedIntValue(PB_BOXED_INT *b) PB___NOEXCEPT;
PB_API PB_OBJ *pbBoxedIntObj(PB_BOXED_INT *b) PB___NOEXCEPT;
PB_API PB_BOXED_INT *pbBoxedIntFrom(PB_OBJ *obj) PB___NOEXCEPT;

/* Keys are strings or boxed integers, compared by value. */
PB_API const PB_SORT *pbDictSort(void) PB___NOEXCEPT;
PB_API PB_OBJ *pbDictObj(PB_DICT *d) PB___NOEXCEPT;
PB_API PB_DICT *pbDictFrom(PB_OBJ *obj) PB___NOEXCEPT;
PB_API PB_DICT *pbDictCreate(void) PB___NOEXCEPT;
PB_API PB_INT pbDictLength(PB_DICT *d) PB___NOEXCEPT;
/* Sets or replaces the value under key; both are retained. */
PB_API void pbDictSetObjKey(PB_DICT **d, PB_OBJ *key, PB_OBJ *value) PB___NOEXCEPT;
/* New references to the value, or null. */
PB_API PB_OBJ *pbDictStringKey(PB_DICT *d, PB_STRING *key) PB___NOEXCEPT;
PB_API PB_OBJ *pbDictIntKey(PB_DICT *d, PB_INT key) PB___NOEXCEPT;

/* A store maps names to texts or integers. Reading a text under a key that
 * holds an integer gives null, and the other way round. */
PB_API const PB_SORT *pbStoreSort(void) PB___NOEXCEPT;
PB_API PB_OBJ *pbStoreObj(PB_STORE *st) PB___NOEXCEPT;
PB_API PB_STORE *pbStoreFrom(PB_OBJ *obj) PB___NOEXCEPT;
PB_API PB_STORE *pbStoreCreate(void) PB___NOEXCEPT;
PB_API PB_INT pbStoreLength(PB_STORE *st) PB___NOEXCEPT;
PB_API void pbStoreSetValueCstr(PB_STORE **st, const char *key, PB_INT keyLength, PB_STRING *value) PB___NOEXCEPT;
PB_API void pbStoreSetValueIntCstr(PB_STORE **st, const char *key, PB_INT keyLength, PB_INT value) PB___NOEXCEPT;
PB_API PB_STRING *pbStoreValueCstr(PB_STORE *st, const char *key, PB_INT keyLength) PB___NOEXCEPT;
PB_API PB_BOOL pbStoreValueIntCstr(PB_STORE *st, PB_INT *value, const char *key, PB_INT keyLength) PB___NOEXCEPT;

PB___END_DECLS

#endif
