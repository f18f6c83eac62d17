// Does nothing and ends with 0, whatever its arguments.
int main()
{
    return 0;
}
