// The demo page served at "/", built into the host from hosts/serve/DemoPage.html.
#pragma once

#include <string_view>

std::string_view DemoPageHtml();
