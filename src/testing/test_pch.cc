// Anchors the precompiled header (gtest and standard headers) that every test executable
// reuses. It is an executable itself so its code-generation flags (-fPIE) match theirs.
int main() { return 0; }
