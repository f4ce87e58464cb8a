#pragma once

// The embedded database engine ends itself on SIGINT and SIGTERM, from a thread
// of its own, while the program is still saving into it or ending. From here on
// it leaves those signals to the program, which closes the database in order.
void leaveTerminationSignalsToTheProgram();
