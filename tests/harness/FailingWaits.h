// Included first in every suite (midstation_add_test). A QTRY_ wait that runs out fails
// there and then. QtTest's own macros would wait twice the timeout again only to say
// whether a longer one would have passed (and fail either way): a failing 60-second wait
// cost three minutes, so one fault in the station could cost a suite its whole timeout.
#pragma once

#include <QtTest/qtestcase.h>

#undef QTRY_TIMEOUT_DEBUG_IMPL
#define QTRY_TIMEOUT_DEBUG_IMPL(expr, timeoutValue, step)
