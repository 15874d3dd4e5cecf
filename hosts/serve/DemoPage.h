// The demo page served at "/": hosts/serve/DemoPage.html, built into the host with the form's
// controls and the property table its script reads put in from the component's public contract.
#pragma once

#include <string_view>

std::string_view DemoPageHtml();
