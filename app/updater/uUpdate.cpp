// The program's updater: DoUpdate reads the update descriptor and, for now,
// does nothing with it. The descriptor is lines of "key=value" ("version=0.1");
// only this library reads it.
#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<std::string*>(user);
    // A descriptor is a few lines; a large answer is not one.
    if (body->size() + size * count > 64 * 1024)
        return 0;
    body->append(data, size * count);
    return size * count;
}

} // namespace

// The program waits for this call on its main thread: keep it short.
extern "C" __attribute__((visibility("default"))) void DoUpdate(std::uintptr_t /*owner*/,
                                                                const char* url) {
    if (!url || !*url)
        return;
    CURL* curl = curl_easy_init();
    if (!curl)
        return;
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 3000L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 5000L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
}
