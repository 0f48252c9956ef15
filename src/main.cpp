// The application entry program: it does no work and always succeeds.
int main() { return 0; }
