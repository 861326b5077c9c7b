#pragma once

// The internet registration: one HTTP GET to the registration web server, built from the
// information file.
//
// How it works: the information file is read in text mode (a carriage return before a line
// feed is dropped); its empty first line is skipped and the next 17 lines become the values
// of the query keys firstname ... sendmailings, in that order, each URL-encoded, "none" when
// empty. NetManager sends the request and stores the reply in the file named by
// replyFileName; the registration counts as delivered when "Success" stands in the first
// 1000 bytes of that file, which is deleted in every case. A request larger than
// maxRequestSize is refused rather than cut: a cut request would register half a buyer.

#include <cstddef>
#include <string>
#include <string_view>

// Delivers the registration. Sets registrationSent when the server's reply says "Success"
// (and never clears it); shows "File Not Found!" when there is no information file and
// "Error!" when the registration has not been delivered.
void SendInternetRegistration();

// How far into the reply the server's "Success" must stand.
inline constexpr std::size_t judgedReplySize = 1000;

// True when the reply, read in text mode (a carriage return before a line feed dropped), holds
// "Success" within its first judgedReplySize bytes.
bool ReplySaysSuccess(std::string_view reply);

// The next line of the information file's text (already read in text mode) as a query value:
// URL-encoded, "none" when the line is empty or the text has ended. Consumes the line and
// its line feed from text.
std::string ReadEncodedValue(std::string_view& text);

// The request path "/storeregistrants.php3?firstname=...&sendmailings=..." built from the
// information file's text (in text mode).
std::string registrationRequestPath(std::string_view information);

// The registration web server: $REGISTER_SERVER when set, otherwise the server fixed when the
// program was built; either as NetManager::parseServer reads it ("https://host[:port]",
// "http://host[:port]" or a bare "host[:port]" for plain HTTP).
std::string registrationServer();

// The largest request, request line and headers included, that is sent.
inline constexpr std::size_t maxRequestSize = 8 * 1024;
