// Placeholder until the setup tool lands.
int main() { return 0; }
