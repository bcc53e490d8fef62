#include "app/RunClient.h"
#include "app/CKQVClientApp.h"

int RunClient() {
  App().InitInstance();
  return 0;
}
