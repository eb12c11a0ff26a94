// The whole public API of the tarndb engine in one include.
//
//   TTarnDBCreator (creator.h)   makes database files and images and adds tables to them
//   TTarnDatabase (database.h)   a connection to one database file or in-memory image
//   TTarnSession (session.h)     a named group of databases with its lock retry settings
//   TTarnTable (table.h)         a dataset over one table: navigation, editing, indexes,
//                                key search, filters, master-detail ranges
//   TField, TVariant (dataset/)  the values of the current row
//   errors.h, dataset/db_errors.h  the exceptions every operation raises
//   memory_registry.h            names for in-memory database images
#pragma once

#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/dataset/db_errors.h"
#include "tarndb/dataset/typed_fields.h"
#include "tarndb/errors.h"
#include "tarndb/memory_registry.h"
#include "tarndb/session.h"
#include "tarndb/table.h"
