// The entry points of an engine module built elsewhere.
extern "C" void *cef_engine_backend()
{
    return nullptr;
}

extern "C" const char *cef_engine_build_id()
{
    return "another build";
}
