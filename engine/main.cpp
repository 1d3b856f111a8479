// ORVA-V4: the back-calculation engine, a console program without arguments.
int main() { return 0; }
