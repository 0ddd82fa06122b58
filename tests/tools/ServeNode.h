#pragma once

// The life of a scripted node (a seed, a live source) on a network core of
// its own: listen, wait for the NAT login, print its address, serve until
// STOP arrives on stdin, stop.
#include <cstdio>
#include <cstring>
#include <string>

#include "net/EventListener.h"
#include "net/PPNCore.h"
#include "net/PPNException.h"
#include "tests/tools/AddressText.h"
#include "tests/tools/SayLine.h"

// Prints ADDRESS <packed address hex> once logged in, or ERROR <why>; the
// exit code of the program.
inline int ServeUntilStop(ppn::PPNCore& core, const PropertyMap& properties, ppn::EventListener& listener) {
    int result = 0;
    core.SetProperties(properties);
    core.AddListener(&listener);
    try {
        core.StartListen(0);
        PeerAddress own;
        bool loggedIn = false;
        for (int i = 0; i < 6000 && !loggedIn; ++i) {   // the facade has no wait for the login
            try {
                core.GetLocalAddress(own, true);
                loggedIn = true;
            } catch (const ppn::PPNException&) {
                Sleep(10);
            }
        }
        if (loggedIn) {
            Say("ADDRESS " + AddressHex(own));
            char line[256];
            while (std::fgets(line, sizeof line, stdin) && std::strncmp(line, "STOP", 4) != 0) {
            }
        } else {
            Say("ERROR login");
            result = 1;
        }
    } catch (const ppn::PPNException& e) {
        Say(std::string("ERROR ") + e.what());
        result = 1;
    }
    core.RemoveListener(&listener);
    core.Stop();
    return result;
}
