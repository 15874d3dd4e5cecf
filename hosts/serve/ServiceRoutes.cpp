#include "hosts/serve/ServiceRoutes.h"

#include "hosts/common/HostBarcode.h"
#include "library/session/PrintableText.h"

std::optional<HttpResponse> ServeServiceRequest(const HttpRequest& request,
                                                const HttpMetrics& metrics) {
    if (request.method != "GET" && request.method != "HEAD") return std::nullopt;
    if (request.path != "/healthz" && request.path != "/metrics") return std::nullopt;
    HttpResponse response;
    if (request.path == "/healthz") {
        const std::string problem = ComponentProblem();
        response = problem.empty() ? HttpResponse::Text(200, "ok")
                                   : HttpResponse::Text(503, PrintableText(problem));
    } else {
        response.content_type = "text/plain; version=0.0.4; charset=utf-8";
        response.body = metrics.Text();
    }
    response.headers.emplace_back("Cache-Control", "no-store");
    return response;
}
