int mesaroframeworkStub() { return 0; }
