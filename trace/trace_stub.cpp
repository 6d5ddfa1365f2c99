int traceStub() { return 0; }
