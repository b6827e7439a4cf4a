#include "http_fetch.h"

#include <curl/curl.h>

#include <cstring>

#include "native_text.h"

namespace {

struct Transfer {
    const BodySink* sink;
    bool stoppedBySink = false;
};

size_t ReceiveBody(char* data, size_t, size_t count, void* context) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    if ((*transfer.sink)(data, count)) return count;
    transfer.stoppedBySink = true;
    return 0;  // curl ends the transfer with a write error
}

// The subject, issuer and end date of the first certificate the server presented.
std::string DescribeCertificate(CURL* curl) {
    curl_certinfo* chain = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CERTINFO, &chain) != CURLE_OK || !chain || chain->num_of_certs < 1) return "";
    std::string subject, issuer, until;
    for (curl_slist* item = chain->certinfo[0]; item; item = item->next) {
        const char* text = item->data;
        if (std::strncmp(text, "Subject:", 8) == 0) subject = text + 8;
        if (std::strncmp(text, "Issuer:", 7) == 0) issuer = text + 7;
        if (std::strncmp(text, "Expire date:", 12) == 0) until = text + 12;
    }
    return "trusted: " + subject + ", issued by " + issuer + ", valid until " + until;
}

// Owns one curl handle.
struct CurlHandle {
    CURL* curl = curl_easy_init();
    ~CurlHandle() { curl_easy_cleanup(curl); }
};

}  // namespace

bool FetchUrl(const std::string& url, const FetchOptions& options, const BodySink& sink, FetchReply& reply) {
    CurlHandle handle;
    CURL* curl = handle.curl;
    if (!curl) {
        reply.error = "could not start a request";
        return false;
    }
    Transfer transfer{&sink};
    char error[CURL_ERROR_SIZE] = {};
    const std::string agent = WideToUtf8(kGetUserAgent);
    const bool https = url.compare(0, 8, "https://") == 0;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, https ? "https" : "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.timeouts.connect));
    // WinHTTP's receive time-out: no byte for that long ends the transfer.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.timeouts.receive / 1000));
    curl_easy_setopt(curl, CURLOPT_CERTINFO, 1L);
    if (!options.caFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, options.caFile.c_str());
        curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
    }
    const std::string range =
        std::to_string(options.rangeFrom) + "-" + (options.rangeTo >= 0 ? std::to_string(options.rangeTo) : "");
    if (options.rangeFrom >= 0) curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, ReceiveBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);

    const CURLcode result = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_off_t length = -1;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) reply.announcedLength = length;
    if (https) reply.certificate = DescribeCertificate(curl);
    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && transfer.stoppedBySink)) return true;
    reply.error = error[0] ? error : curl_easy_strerror(result);
    reply.tlsRefused = result == CURLE_PEER_FAILED_VERIFICATION || result == CURLE_SSL_CONNECT_ERROR;
    return false;
}
