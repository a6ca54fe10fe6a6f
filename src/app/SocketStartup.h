// Starting the socket service at program start. Linux needs no start-up call, but the step and
// its failure message stay so that the failure path is exercised: OMBLOR_TEST_FAIL_SOCKET_STARTUP=1
// makes it fail.
#pragma once

namespace omblor::app {

bool StartSocketService();

}  // namespace omblor::app
