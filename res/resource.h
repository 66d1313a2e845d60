#pragma once
#define IDI_PORTSETUP 1
