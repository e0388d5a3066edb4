#include "Log.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

namespace fw {

void Log(const std::string& line) {
    std::string text = std::string(program_invocation_short_name) + ": " + line;
    if (text.empty() || text.back() != '\n') text += '\n';
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // nowhere to say it
        done += size_t(n);
    }
}

std::string ErrorText(int code) {
    char buffer[128];
    return ::strerror_r(code, buffer, sizeof buffer);  // the GNU form: safe on any thread
}

}  // namespace fw
