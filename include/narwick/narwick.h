// Narwick: utility classes with OLE Automation semantics. The umbrella header.
#pragma once

#include "narwick/frame/class_table.h"
#include "narwick/frame/codepage.h"
#include "narwick/frame/collection.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/dispatch.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/events.h"
#include "narwick/frame/file_system_tools.h"
#include "narwick/frame/host.h"
#include "narwick/frame/object.h"
#include "narwick/frame/safe_array.h"
#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"
#include "narwick/list/ordered_linked_list.h"
#include "narwick/text/manage_type_case.h"
