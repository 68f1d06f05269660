#pragma once
// The system's requests to end (SIGTERM, SIGHUP, SIGINT) close the main
// window as "Close anyway" does, so the pending record row is written and
// the port released before main() returns.
namespace kv::desktop {

class Dashboard;

// Installs the handlers for the life of the process; called after
// Dashboard::start(). A signal goes from the handler to the event loop
// through a socket pair; there the core closes at once. Later signals find
// it closed and change nothing.
void closeOnSignals(Dashboard& dashboard);

}  // namespace kv::desktop
