// Placeholder entry of the simulator until the virtual board lands.
int main() { return 2; }
