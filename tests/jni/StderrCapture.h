// Captures what the process writes to file descriptor 2 while it lives.
#ifndef ORV_TESTS_JNI_STDERRCAPTURE_H
#define ORV_TESTS_JNI_STDERRCAPTURE_H

#include <cstdio>
#include <string>

class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Restores the stream and returns everything written since construction.
    std::string finish();

private:
    std::FILE* file_;
    int saved_;
};

#endif
