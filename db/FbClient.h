#pragma once
// A thin layer over the Firebird client's object interface: connections,
// transactions, statements with named parameters, procedure calls and the
// service manager. Every handle is owned by one object and released in its
// destructor; every failed call becomes an FbError carrying the client's own
// interpreted message text.
//
// Values cross this layer as text: parameters are bound from text and
// converted to the described type, columns are read back as text. Dates
// travel as "dd/mm/yyyy" and are converted here, never by the server, which
// would read such a text month first.
//
// One header per thing it wraps: FbCore.h (ownership, errors, parameter
// buffers), FbDatabase.h (connections and transactions), FbStatement.h
// (statements, rows, procedure calls) and FbService.h (the service manager).
// This one brings them all.

#include "db/FbCore.h"
#include "db/FbDatabase.h"
#include "db/FbService.h"
#include "db/FbStatement.h"
