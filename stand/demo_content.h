// The demo's rows in a fresh schema: the table list, users and their credentials, event categories and
// codes, object types with their settings, and per station of a DemoLayout its objects, measurements and
// setting values. The archive history is the model's business, not written here.
#pragma once

#include "stand/demo_layout.h"

struct sqlite3;

namespace stand {

// False when any row could not be written; sqlite3_errmsg(db) tells the last failure. Every group is
// written even so, inside the caller's transaction, which the caller rolls back.
bool WriteDemoContent(sqlite3 *db, const DemoLayout &layout);

} // namespace stand
