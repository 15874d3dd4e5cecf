// The modes of quillon_wine_client, the Windows client of the DLLs under test.
#pragma once

// render TABLE DIR: the cross-platform table's pictures and figures (RenderTable.cpp).
int RenderTable(const char* table, const char* directory);
// checks: the client cases, the page host's among them (ClientChecks.cpp).
int RunClientChecks();
