// Linked with one library whole and what that library declares it uses; never run.
int main()
{
    return 0;
}
