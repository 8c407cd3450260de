#pragma once
// The log browser's one entry point.

#include "db/FData.h"

class QWidget;

// Opens the backup log and shows the log browser modally over `owner` (the
// active window when none is given). Mode 0 browses: a double-click opens the
// entry's detail. Mode 1 chooses: when the window closes, its selected row
// becomes HistoryChoice, or empties it with "Esta copia de seguridad no es
// válida" when that copy failed; with no row selected HistoryChoice stays as
// it was. A log that cannot be opened has been reported when this returns
// (no window). An error of the first query propagates, after the log's
// connection has been closed.
void ShowBackupLog(TData& data, int Mode, QWidget* owner = nullptr);
// The same on the program's data module.
void ShowBackupLog(int Mode);
