#pragma once

// Makes the process sound before Qt opens anything: the three standard streams are open, a
// closed trace reader cannot end the process, and Qt is set up for the desktop it runs on.
// Runs once, before main.
void prepareProcess();

// Gives the heap memory that a large piece of work has freed back to the system, where the C
// library keeps it otherwise: what a drop of thousands of files used for its URLs and texts.
void releaseFreedMemory();

// Takes the console of the command prompt that started the program, where there is one, for the
// standard streams that lead nowhere: a Windows GUI program has none of its own. A stream that
// was redirected stays where it goes. Does nothing elsewhere.
void useParentConsole();

// While it lives, a window's application object is being made: where no display can be opened,
// the program ends with status 1 and one line that points to --no-window, instead of Qt's abort.
// Qt's messages of that time are held back, and passed on once the object is made.
class DisplayCheck
{
public:
    DisplayCheck();
    ~DisplayCheck();
    DisplayCheck(const DisplayCheck &) = delete;
    DisplayCheck &operator=(const DisplayCheck &) = delete;
};
