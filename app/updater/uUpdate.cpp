// The program's updater: DoUpdate reads the update descriptor and, for now,
// does nothing with it. The descriptor is lines of "key=value" ("version=0.1");
// only this library reads it.
#ifdef _WIN32
#include <windows.h>
#include <wininet.h>
#else
#include <curl/curl.h>
#endif

#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#define VELMORA_UPDATER_EXPORT extern "C" __declspec(dllexport)
#else
#define VELMORA_UPDATER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

// A descriptor is a few lines; a large answer is not one.
constexpr std::size_t DescriptorLimit = 64 * 1024;

#ifdef _WIN32
std::string Fetch(const char* url) {
    std::string body;
    HINTERNET session = InternetOpenA("Velmora", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session)
        return body;
    DWORD connectMs = 3000, receiveMs = 5000;
    InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs);
    HINTERNET request = InternetOpenUrlA(
        session, url, nullptr, 0,
        INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD, 0);
    if (request) {
        char buffer[4096];
        DWORD got = 0;
        while (InternetReadFile(request, buffer, sizeof buffer, &got) && got > 0) {
            if (body.size() + got > DescriptorLimit) {
                body.clear();
                break;
            }
            body.append(buffer, got);
        }
        InternetCloseHandle(request);
    }
    InternetCloseHandle(session);
    return body;
}
#else
std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<std::string*>(user);
    if (body->size() + size * count > DescriptorLimit)
        return 0;
    body->append(data, size * count);
    return size * count;
}

std::string Fetch(const char* url) {
    std::string body;
    CURL* curl = curl_easy_init();
    if (!curl)
        return body;
    curl_easy_setopt(curl, CURLOPT_URL, url);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 3000L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 5000L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return body;
}
#endif

} // namespace

// The program waits for this call on its main thread: keep it short.
VELMORA_UPDATER_EXPORT void DoUpdate(std::uintptr_t /*owner*/, const char* url) {
    if (!url || !*url)
        return;
    Fetch(url);
}
