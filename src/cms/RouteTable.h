#pragma once
// The server's routes: method, path pattern and handler, kept free of the HTTP library so
// endpoint groups can be added (and tested) without it. Patterns are regular expressions over
// the whole decoded path; their groups arrive as CmsRequest::captures.
// Routes are added before the server starts and only read afterwards, from many threads.

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace pagewell::cms {

struct CmsUploadedFile {
    std::string name;
    std::string filename;
    std::string contentType;
    std::string content;
};

struct CmsRequest {
    std::string method;
    std::string path;  // decoded, without the query
    std::vector<std::string> captures;
    std::multimap<std::string, std::string> query;
    std::multimap<std::string, std::string> headers;  // names as sent; compare case-blind
    std::string body;
    std::vector<CmsUploadedFile> files;  // parts of a multipart upload
    std::string remoteAddress;

    std::optional<std::string> queryValue(const std::string& name) const;
    std::optional<std::string> header(const std::string& name) const;
};

struct CmsResponse {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::vector<std::pair<std::string, std::string>> headers;
    // Downloads: the server answers a single byte range of a 200 answer with 206 and those bytes,
    // an unsatisfiable one with 416.
    bool rangeable = false;
    // When set, the answer's bytes are this file's, read from disk while they are sent; `body`
    // is then unused.
    std::filesystem::path file;

    static CmsResponse json(std::string body, int status = 200);
    // A short JSON error: {"success": false, "error": message}.
    static CmsResponse error(int status, const std::string& message);
    // 200 with nothing in it: how a client learns that its token is no longer valid.
    static CmsResponse empty();
};

using RouteHandler = std::function<CmsResponse(const CmsRequest&)>;

class RouteTable {
  public:
    // `method` is "GET", "POST", "PUT", "DELETE" or "HEAD"; a GET route also answers HEAD.
    void add(std::string method, const std::string& pattern, RouteHandler handler);

    // Runs the matching route; 404 for an unknown path, 405 for a known path with another
    // method.
    CmsResponse dispatch(CmsRequest& request) const;

  private:
    struct Route {
        std::string method;
        std::string pattern;
        // Text every matching path starts with, so most routes are passed over without
        // running their expression.
        std::string prefix;
        std::regex regex;
        RouteHandler handler;
    };
    std::vector<Route> routes_;
};

}  // namespace pagewell::cms
