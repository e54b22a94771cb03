// The library's containers on the installed memory service.
#ifndef OMBRA_STREAMS_MEMORY_STDALLOCATOR_H
#define OMBRA_STREAMS_MEMORY_STDALLOCATOR_H

#include <ombra/stdallocator.h>

#include <string>
#include <vector>

template <class T> using OBVector = std::vector<T, OBStdAllocator<T>>;
using OBStdString = std::basic_string<char, std::char_traits<char>, OBStdAllocator<char>>;

#endif
