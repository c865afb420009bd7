/* Vectors of objects, dictionaries, boxed integers and key-value stores. */
#ifndef PB_COLLECTIONS_H
#define PB_COLLECTIONS_H

#include "pb_obj.h"

PB___BEGIN_DECLS

PB_API const PB_SORT *pbVectorSort(void);
PB_API PB_OBJ *pbVectorObj(PB_VECTOR *v);
PB_API PB_VECTOR *pbVectorFrom(PB_OBJ *obj);
PB_API PB_VECTOR *pbVectorCreate(void);
PB_API PB_INT pbVectorLength(PB_VECTOR *v);
/* A new reference to the element at index (0 <= index < length). */
PB_API PB_OBJ *pbVectorObjAt(PB_VECTOR *v, PB_INT index);
/* Appends a reference to obj (not null). */
PB_API void pbVectorAppendObj(PB_VECTOR **v, PB_OBJ *obj);
/* Appends obj (not null), taking over the caller's reference to it. */
PB_API void pbVectorAppendObjUse(PB_VECTOR **v, PB_OBJ *obj);
/* Appends objs[0..count) (none null) in order, taking over the caller's
 * reference to each: one growth and one copy for a batch, for builders that
 * make many elements in a row. */
PB_API void pb___VectorAppendObjsUse(PB_VECTOR **v, PB_OBJ *const *objs, PB_INT count);
PB_API void pbVectorDelAt(PB_VECTOR **v, PB_INT index);
/* True when every element has the given sort (also for an empty vector). */
PB_API PB_BOOL pbVectorContainsOnly(PB_VECTOR *v, const PB_SORT *sort);

PB_API const PB_SORT *pbBoxedIntSort(void);
PB_API PB_BOXED_INT *pbBoxedIntCreate(PB_INT value);
PB_API PB_INT pbBoxedIntValue(PB_BOXED_INT *b);
PB_API PB_OBJ *pbBoxedIntObj(PB_BOXED_INT *b);
PB_API PB_BOXED_INT *pbBoxedIntFrom(PB_OBJ *obj);

/* Keys are strings or boxed integers, compared by value. */
PB_API const PB_SORT *pbDictSort(void);
PB_API PB_OBJ *pbDictObj(PB_DICT *d);
PB_API PB_DICT *pbDictFrom(PB_OBJ *obj);
PB_API PB_DICT *pbDictCreate(void);
PB_API PB_INT pbDictLength(PB_DICT *d);
/* Sets or replaces the value under key; both are retained. */
PB_API void pbDictSetObjKey(PB_DICT **d, PB_OBJ *key, PB_OBJ *value);
/* New references to the value, or null. */
PB_API PB_OBJ *pbDictStringKey(PB_DICT *d, PB_STRING *key);
PB_API PB_OBJ *pbDictIntKey(PB_DICT *d, PB_INT key);

/* A store maps names to texts or integers. Reading a text under a key that
 * holds an integer gives null, and the other way round. */
PB_API const PB_SORT *pbStoreSort(void);
PB_API PB_OBJ *pbStoreObj(PB_STORE *st);
PB_API PB_STORE *pbStoreFrom(PB_OBJ *obj);
PB_API PB_STORE *pbStoreCreate(void);
PB_API PB_INT pbStoreLength(PB_STORE *st);
PB_API void pbStoreSetValueCstr(PB_STORE **st, const char *key, PB_INT keyLength, PB_STRING *value);
PB_API void pbStoreSetValueIntCstr(PB_STORE **st, const char *key, PB_INT keyLength, PB_INT value);
PB_API PB_STRING *pbStoreValueCstr(PB_STORE *st, const char *key, PB_INT keyLength);
PB_API PB_BOOL pbStoreValueIntCstr(PB_STORE *st, PB_INT *value, const char *key, PB_INT keyLength);

PB___END_DECLS

#endif
