#include "app/CKQVClientApp.h"
#include "app/RunClient.h"

int RunClient() {
  App().InitInstance();
  return 0;
}
