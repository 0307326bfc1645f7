#pragma once
// Resource IDs of the contact editor: 3000-3999.
