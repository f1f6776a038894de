// Redirects file descriptor 2 into a temporary file for as long as the capture lives.
#include "StderrCapture.h"

#include <unistd.h>

StderrCapture::StderrCapture() : file_(std::tmpfile()), saved_(-1)
{
    std::fflush(stderr);
    if (file_ != nullptr) {
        saved_ = dup(2);
        dup2(fileno(file_), 2);
    }
}

StderrCapture::~StderrCapture()
{
    finish();
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

std::string StderrCapture::finish()
{
    std::string text;
    if (saved_ < 0) {
        return text;
    }
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
    std::rewind(file_);
    char buffer[512];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) {
        text.append(buffer, n);
    }
    return text;
}
