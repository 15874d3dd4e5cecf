// The routes for whoever runs the service, beside the pages: GET /healthz answers 200 once a
// component object can be made on this worker's thread (503 with the reason otherwise), and
// GET /metrics the server's counters in Prometheus text format.
#pragma once

#include <optional>

#include "hosts/serve/HttpMessage.h"
#include "hosts/serve/HttpMetrics.h"

// The answer when the request is for one of these routes; nothing otherwise.
std::optional<HttpResponse> ServeServiceRequest(const HttpRequest& request,
                                                const HttpMetrics& metrics);
