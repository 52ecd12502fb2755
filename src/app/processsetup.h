#pragma once

// Makes the process sound before Qt opens anything: the three standard streams are open, a
// closed trace reader cannot end the process, and Qt is set up for the desktop it runs on.
// Runs once, before main.
void prepareProcess();
