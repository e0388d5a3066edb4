// Keeps the core library non-empty until the application object lands.
namespace tvm { int placeholder = 0; }
