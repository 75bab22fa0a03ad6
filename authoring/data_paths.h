// Where the program's data folders (expression/, help/) are found: the working directory
// first, as the program has always looked there, then beside the executable, which is where
// an installed or freshly built program keeps them.
#pragma once

#include <QString>

// The directory that holds relative (for example "expression/expcfg.xml"): the working
// directory when the file is there, else the executable's directory when it is there, else
// the working directory (where the file then is missing). No trailing "/".
QString FindDataRoot(const QString& relative);
