// SPDX-License-Identifier: Apache-2.0
// A closed console window, a logoff or a shutdown ends the process a few seconds after the
// console's handler is called. An open USB adapter is watched meanwhile: the job is asked to
// stop, and the adapter let go of from the handler's thread if the job has not closed it in time,
// so its pins are not left driven.
#pragma once

class ConsoleCloseWatch {
public:
    virtual bool adapter_open() = 0;
    virtual void let_go() = 0;

protected:
    ~ConsoleCloseWatch() = default;
};

// The one watch (nullptr: none); the interrupt handlers read it.
void console_close_watch(ConsoleCloseWatch* watch);
