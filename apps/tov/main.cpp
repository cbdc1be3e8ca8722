// Desktop program: filled in with the front end.
int main() { return 0; }
