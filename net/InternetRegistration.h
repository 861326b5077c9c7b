#pragma once

// Delivers the registration over the internet: one HTTP GET to the registration web server,
// built from the information file. Sets registrationSent when the server's reply says
// "Success"; shows its own messages otherwise.
void SendInternetRegistration();
