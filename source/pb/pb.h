/* The pb runtime: everything a module or a caller of a module needs. */
#ifndef PB_H
#define PB_H

#include "pb_types.h"
#include "pb_obj.h"
#include "pb_string.h"
#include "pb_collections.h"
#include "pb_enum.h"
#include "pb_util.h"

#endif
