int nvtguibaseStub() { return 0; }
