// What the text writer reports while it writes: the problems every writer
// reports (WriterProblems.h).
#ifndef OMBRA_TEXTWRITER_PROBLEMS_H
#define OMBRA_TEXTWRITER_PROBLEMS_H

#include "WriterProblems.h"

using OBTextProblems = OBWriterProblems;

#endif
