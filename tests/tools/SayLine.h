#pragma once

// One line to standard output, flushed at once, whole even when several
// threads print: the test scripts read a driver's output line by line.
#include <cstdio>
#include <string>

#include <boost/thread/mutex.hpp>

inline void Say(const std::string& line) {
    static boost::mutex outputMutex;
    boost::mutex::scoped_lock lock(outputMutex);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}
