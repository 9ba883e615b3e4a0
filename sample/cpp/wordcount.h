// The C++ sample's library: counts words, with the standard library's types
// in its interface, so that the program and the library share libstdc++.
#pragma once

#include <map>
#include <string>

#ifdef WORDCOUNT_BUILDING
#define WORDCOUNT_API __declspec(dllexport)
#else
#define WORDCOUNT_API __declspec(dllimport)
#endif

// How often each word of `text` occurs; words are runs of letters.
WORDCOUNT_API std::map<std::string, int> CountWords(const std::string& text);
