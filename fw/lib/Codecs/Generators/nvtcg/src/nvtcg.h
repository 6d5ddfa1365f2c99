// stub
#pragma once
