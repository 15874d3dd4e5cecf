// The demo page served at "/": hosts/serve/DemoPage.html, built into the host, with the
// component's property table from its public contract put in where the page asks for it.
#pragma once

#include <string_view>

// The page as it is served.
std::string_view DemoPageHtml();

// The page as written, with its /*@PROPERTIES@*/ marker (generated from DemoPage.html).
std::string_view DemoPageTemplate();
