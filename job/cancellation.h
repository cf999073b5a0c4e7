#pragma once

// Cancelling the running conversion from the front end's thread (a close request, or a signal in the
// command-line front end).

class WorkerThread;

// Raises the cancel flag, kills the running tool, and waits, still dispatching the calling thread's
// messages so that the worker's and the listener's sends are answered, until the worker has stopped
// at its next cancel point or its end. Only then, when nothing of the job writes any more, closes the
// output, deletes the target and removes the intermediate files and frame files the job made (and
// "temp" when the job's tool created it and it is left empty). Files the job did not make survive.
void CancelConversion(WorkerThread& worker);
