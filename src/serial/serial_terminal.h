#pragma once
// Whether an open descriptor is a terminal that a serial device can stand behind for reading.
// Refused: pseudo-terminal masters (/dev/ptmx makes a new one on every open, and nothing ever
// writes to it), /dev/tty and /dev/console, which stand for whatever terminal a process has.
namespace darvelon::serial {

bool isSerialTerminal(int fd);

}  // namespace darvelon::serial
