// "cdctl sim PORT COMMAND": applies one command to a simulated controller's state under its
// lock, then tells the process that has the controller open, if any, to look again.
#include "tools/cdctl/commands.h"

#include <iostream>
#include <string>

#include "ports/sim_command.h"
#include "ports/sim_store.h"

int RunSimCommand(int argc, char** argv) {
    sim::SimCommand command;
    std::string error;
    switch (sim::ParseSimCommand(argc, argv, &command, &error)) {
        case sim::ParseResult::Help:
            std::cout << sim::SimUsage();
            return 0;
        case sim::ParseResult::Error:
            std::cerr << "cdctl sim: " << error << "\n" << sim::SimUsage();
            return 2;
        case sim::ParseResult::Ok:
            break;
    }

    sim::Store store;
    const DWORD opened = store.Open(command.name);
    if (opened != 0) {
        std::cerr << "cdctl sim: cannot open the state of " << command.name << " ("
                  << (store.path().empty() ? sim::StateFolder() : store.path()) << "): error "
                  << opened << "\n";
        return 1;
    }
    sim::ApplyResult result;
    std::string line;
    {
        sim::Store::Access s = store.Lock();
        if (!s) {
            std::cerr << "cdctl sim: the lock of " << command.name << " is held elsewhere\n";
            return 1;
        }
        sim::Advance(*s, s.now(), nullptr);
        result = sim::ApplySimCommand(*s, s.now(), command);
        line = sim::ShowLine(*s);
    }
    store.SignalChanged();

    switch (result) {
        case sim::ApplyResult::NotOpen:
            std::cerr << "cdctl sim: no port has " << command.name
                      << " open; there is nothing to inject into\n";
            return 1;
        case sim::ApplyResult::Full:
            std::cerr << "cdctl sim: the line of " << command.name
                      << " is busy; the injection was not (fully) sent\n";
            return 1;
        case sim::ApplyResult::Done:
            break;
    }
    if (command.verb == sim::Verb::Show) std::cout << line << "\n";
    return 0;
}
